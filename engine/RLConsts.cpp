#include "engine/RLConsts.h"

#include <array>

namespace {

// Some slots of a language hold a text of another language: that is how the table was always
// shipped, and the texts are kept exactly as they are.
constexpr TRLTextRow MessageRows[] = {
    { u"Imprimindo o relatório...", u"Printing in progress...", u"Impression du rapport...",
        u"Impresión en marcha..." }, // 0
    { u"Salvando o relatório...", u"Saving report...", u"Sauver le rapport...",
        u"Guardando el informe..." }, // 1
    { u"Preparando o relatório...", u"Preparing report...", u"Préparation du rapport...",
        u"Preparación del informe..." }, // 2
    { u"Nenhuma impressora encontrada", u"Printer not found", u"Imprimante non trouvée",
        u"Impresora no encontrada" }, // 3
    { u"Caminho inválido para a impressora", u"Invalid printer path", u"Invalid printer path",
        u"Caminho inválido para a impressora" }, // 4
    { u"Será carregada a configuração padrão", u"Load default configuration",
        u"Chargement de la configuration standard", u"Cargar la configuración estándar" }, // 5
    { u"Erro no driver da impressora", u"Printer driver error", u"Erreur dans le driver d'impression",
        u"Error en driver de la impresora" }, // 6
    { u"Página", u"Page", u"Page", u"Página" }, // 7
    { u"Erro durante a preparação do relatório", u"Error while preparing report",
        u"Erreur durant la prépartaion du rapport",
        u"Un error ocurrió mientras se preparaba el informe" }, // 8
    { u"Continua...", u"Continues...", u"Saut de page...", u"Continúa..." }, // 9
    { u"Continuação", u"Continuation", u"A suivre", u"Continuación" }, // 10
    { u"Fim", u"End", u"Fin", u"Extremo" }, // 11
    { u"Arquivo não encontrado", u"File not found", u"Fichier non trouvé", u"Archivo no encontrado" }, // 12
    { u"Nome do arquivo", u"File Name", u"Nom de Fichier", u"Nombre del Archivo" }, // 13
    { u"Todos os arquivos", u"All files", u"Tous les fichiers", u"Todos los archivos" }, // 14
    { u"Carregar relatório", u"Load report", u"Ouvrir rapport", u"Cargar el informe" }, // 15
    { u"Não encontrado", u"Not found", u"Non trouvé", u"No encontrado" }, // 16
    { u"Aguarde...", u"Wait...", u"Patientez...", u"Espera..." }, // 17
    { u"Concluído", u"Finished", u"Fini", u"Finalizado" }, // 18
    { u"Cancelar", u"Cancel", u"Annulé", u"Cancelar" }, // 19
    { u"Fechar", u"Close", u"Fermé", u"Cerrar" }, // 20
    { u"Salvar", u"Save", u"Sauver", u"Guardar" }, // 21
    { u"Enviar", u"Send", u"Envoyez", u"Enviar" }, // 22
    { u"Imprimir", u"Print", u"Imprimer", u"Imprimir" }, // 23
    { u"Sobre o", u"About", u"A propos de", u"Sobre" }, // 24
    { u"Pré-visualização", u"Preview", u"Aperçu avant impression", u"Ver" }, // 25
    { u"de", u"of", u"de", u"de" }, // 26
    { u"Zoom", u"Zoom", u"Zoom", u"Zoom" }, // 27
    { u"Primeira página", u"First page", u"Première page", u"Primera página" }, // 28
    { u"Página anterior", u"Prior page", u"Page précédente", u"Página anterior" }, // 29
    { u"Próxima página", u"Next page", u"Page suivante", u"Página siguiente" }, // 30
    { u"Última página", u"Last page", u"Dernière page", u"Última página" }, // 31
    { u"Página inteira", u"Entire page", u"Page entière", u"Página entera" }, // 32
    { u"Largura da página", u"Entire width", u"Pleine largeur", u"Ancho completo" }, // 33
    { u"Várias páginas", u"Multiple pages", u"Plusieurs pages", u"Varias páginas" }, // 34
    { u"Configurar impressora", u"Configure printer", u"Configuration de l'imprimante",
        u"Configurar la impresora" }, // 35
    { u"Salvar em disco", u"Save to file", u"Enregistrer sous", u"Guardar en un archivo" }, // 36
    { u"Enviar para", u"Send to", u"Envoyez à", u"Envíar a" }, // 37
    { u"Impressora", u"Printer", u"Imprimante", u"Impresora" }, // 38
    { u"Nome", u"Name", u"Nom", u"Nombre" }, // 39
    { u"Imprimir em arquivo", u"Print to file", u"Imprimer dans un fichier", u"Imprimir a un archivo" }, // 40
    { u"Imprimir em segundo plano", u"Print in background", u"Imprimer dans background",
        u"Imprimir en background" }, // 41
    { u"Salvar em segundo plano", u"Save in background", u"Enregistrer dans background",
        u"Guardar en background" }, // 42
    { u"Intervalo de páginas", u"Page range", u"Intervalle de pages", u"Intervalo de páginas" }, // 43
    { u"de", u"from", u"de", u"de" }, // 44
    { u"até", u"to", u"à", u"a" }, // 45
    { u"Tudo", u"All", u"Tout", u"Todas" }, // 46
    { u"Páginas", u"Pages", u"Pages", u"Páginas" }, // 47
    { u"Seleção", u"Selection", u"Sélection", u"Selección" }, // 48
    { u"Cópias", u"Copies", u"Copies", u"Copias" }, // 49
    { u"Número de cópias", u"Number of copies", u"Nombre de copies", u"Número de copias" }, // 50
    { u"Ok", u"Ok", u"Ok", u"Ok" }, // 51
    { u"Dividir a tela", u"Divide the screen", u"Dividir a tela", u"Dividir la pantalla" }, // 52
    { u"Nome inválido", u"Invalid name", u"Nom inadmissible", u"Nombre inválido" }, // 53
    { u"Nome já utilizado", u"Name already in use", u"Nom reproduit", u"Nombre ya en uso" }, // 54
    { u"Usar Filtro", u"Use filter", u"Use filter", u"Usar Filtro" }, // 55
    { u"Página da Web", u"Web page", u"Page de Web", u"Página Web" }, // 56
    { u"Formato RichText", u"RichText Format", u"Formato RichText", u"Formato RichText" }, // 57
    { u"Documento PDF", u"PDF Document", u"Documento PDF", u"Documento PDF" }, // 58
    { u"Planilha Excel", u"Excel spreadsheet", u"Excel tableur", u"Planilha Excel" }, // 59
    { u"em", u"at", u"à", u"en" }, // 60
    { u"Formulário", u"Form", u"Formulaire", u"Formulario" }, // 61
    { u"Padrão", u"Default", u"Défaut", u"Estándar" }, // 62
    { u"cols", u"cols", u"cols", u"cols" }, // 63
    { u"Aumentar o zoom", u"Increase zoom", u"Grandir zoom", u"Aumentar zoom" }, // 64
    { u"Diminuir o zoom", u"Decrease zoom", u"Réduire zoom", u"Disminuir zoom" }, // 65
    { u"Copiar", u"Copy", u"Copier", u"Copiar" }, // 66
    { u"Editar", u"Edit", u"Edit", u"Editar" }, // 67
    { u"Procurar", u"Find", u"Trouvaille", u"Buscar" }, // 68
    { u"Te&xto", u"Te&xt", u"Te&xte", u"Te&xto" }, // 69
    { u"&Próxima", u"Find &Next", u"A&près", u"&Siguiente" }, // 70
    { u"Palavras &inteiras", u"&Whole words only", u"Mots &entiers seulement",
        u"Palabras &completas sólamente" }, // 71
    { u"Diferenciar &maiúsculas de minúsculas", u"&Match Case", u"Cas d'allu&mette",
        u"Diferenciar &mayúsculas y minúsculas" }, // 72
    { u"A&cima", u"&Up", u"Le &Haut", u"En&cima" }, // 73
    { u"A&baixo", u"&Down", u"Le &bas", u"&Abajo" }, // 74
    { u"Direção", u"Direction", u"Direction", u"Dirección" }, // 75
};

static_assert(std::size(MessageRows) == RLMessageCount, "every slot needs its four texts");

const auto& Columns()
{
    static const auto columns = RLTextColumns(MessageRows);
    return columns;
}

const QString& EmptyText()
{
    static const QString empty;
    return empty;
}

} // namespace

const QString& RLMessageIn(TRLLanguage language, int slot)
{
    const int column = static_cast<int>(language);
    if (column < 0 || column >= RLLanguageCount || slot < 0 || slot >= RLMessageCount)
        return EmptyText();
    return Columns()[column][slot];
}

const QString& RLMessage(int slot)
{
    return RLMessageIn(RLActiveLanguage(), slot);
}
