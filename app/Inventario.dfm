object FrmInventario: TComponent
  object RLReport1: TRLReport
    Left = 0
    Top = 0
    Width = 794
    Height = 1123
    DataSource = DataSource1
    FirstPageNumber = 2
    Font.Charset = DEFAULT_CHARSET
    Font.Color = clBlack
    Font.Height = -13
    Font.Name = 'Arial'
    Font.Style = []
    Margins.LeftMargin = 5.000000000000000000
    Margins.TopMargin = 5.000000000000000000
    Margins.RightMargin = 5.000000000000000000
    object RLBand1: TRLBand
      Left = 19
      Top = 19
      Width = 756
      Height = 37
      BandType = btColumnHeader
      object RLDraw1: TRLDraw
        Left = 72
        Top = 4
        Width = 674
        Height = 33
        Brush.Color = $00EAEAEA
      end
      object RLDBText6: TRLDBText
        Left = 76
        Top = 5
        Width = 666
        Height = 16
        Alignment = taCenter
        AutoSize = False
        DataField = 'RAZAO_SOCIAL'
        DataSource = DataSource2
        Font.Charset = DEFAULT_CHARSET
        Font.Color = clBlack
        Font.Height = -13
        Font.Name = 'Verdana'
        Font.Style = [fsBold, fsItalic]
      end
      object RLLabel2: TRLLabel
        Left = 308
        Top = 22
        Width = 200
        Height = 13
        Caption = 'Invent'#225'rio por Pre'#231'o de Custo'
        Font.Charset = DEFAULT_CHARSET
        Font.Color = clBlack
        Font.Height = -11
        Font.Name = 'Verdana'
        Font.Style = [fsBold]
      end
      object RLLabel17: TRLLabel
        Left = 638
        Top = 20
        Width = 31
        Height = 12
        Caption = 'Data:'
        Font.Charset = DEFAULT_CHARSET
        Font.Color = clBlack
        Font.Height = -9
        Font.Name = 'Verdana'
        Font.Style = [fsBold]
      end
      object RLLabel4: TRLLabel
        Left = 627
        Top = 5
        Width = 41
        Height = 12
        Caption = 'P'#225'gina:'
        Font.Charset = DEFAULT_CHARSET
        Font.Color = clBlack
        Font.Height = -9
        Font.Name = 'Verdana'
        Font.Style = [fsBold]
      end
      object RLSystemInfo3: TRLSystemInfo
        Left = 672
        Top = 5
        Width = 76
        Height = 12
        Info = itPageNumber
        Font.Charset = DEFAULT_CHARSET
        Font.Color = clBlack
        Font.Height = -9
        Font.Name = 'Verdana'
        Font.Style = [fsBold]
      end
      object RLLabel8: TRLLabel
        Left = 672
        Top = 20
        Width = 31
        Height = 12
        Caption = 'Data:'
        Font.Charset = DEFAULT_CHARSET
        Font.Color = clBlack
        Font.Height = -9
        Font.Name = 'Verdana'
        Font.Style = [fsBold]
      end
    end
    object RLBand5: TRLBand
      Left = 19
      Top = 56
      Width = 756
      Height = 25
      BandType = btColumnHeader
      object RLDraw2: TRLDraw
        Left = 72
        Top = 4
        Width = 674
        Height = 20
        Brush.Color = $00EAEAEA
      end
      object RLLabel5: TRLLabel
        Left = 534
        Top = 8
        Width = 43
        Height = 12
        Caption = 'Estoque'
        Font.Charset = DEFAULT_CHARSET
        Font.Color = clBlack
        Font.Height = -9
        Font.Name = 'Verdana'
        Font.Style = [fsBold]
      end
      object RLLabel6: TRLLabel
        Left = 78
        Top = 8
        Width = 43
        Height = 12
        Caption = 'Produto'
        Font.Charset = DEFAULT_CHARSET
        Font.Color = clBlack
        Font.Height = -9
        Font.Name = 'Verdana'
        Font.Style = [fsBold]
      end
      object RLLabel3: TRLLabel
        Left = 624
        Top = 8
        Width = 31
        Height = 12
        Caption = 'Custo'
        Font.Charset = DEFAULT_CHARSET
        Font.Color = clBlack
        Font.Height = -9
        Font.Name = 'Verdana'
        Font.Style = [fsBold]
      end
      object RLLabel10: TRLLabel
        Left = 686
        Top = 8
        Width = 45
        Height = 12
        Alignment = taRightJustify
        Caption = 'Total R$'
        Font.Charset = DEFAULT_CHARSET
        Font.Color = clBlack
        Font.Height = -9
        Font.Name = 'Verdana'
        Font.Style = [fsBold]
      end
      object RLLabel7: TRLLabel
        Left = 475
        Top = 8
        Width = 28
        Height = 12
        Caption = 'Unid.'
        Font.Charset = DEFAULT_CHARSET
        Font.Color = clBlack
        Font.Height = -9
        Font.Name = 'Verdana'
        Font.Style = [fsBold]
      end
    end
    object RLBand2: TRLBand
      Left = 19
      Top = 81
      Width = 756
      Height = 11
      BandType = btDetail
      object RLDBText3: TRLDBText
        Left = 73
        Top = -1
        Width = 136
        Height = 12
        AutoSize = False
        DataField = 'CODIGO'
        DataSource = DataSource1
        Font.Charset = DEFAULT_CHARSET
        Font.Color = clBlack
        Font.Height = -9
        Font.Name = 'Verdana'
        Font.Style = []
      end
      object rldbtxtcusto: TRLDBText
        Left = 579
        Top = -1
        Width = 77
        Height = 12
        Alignment = taRightJustify
        BeforePrint = rldbtxtcustoBeforePrint
        DataField = 'PRECO_CUST'
        DataSource = DataSource1
        Font.Charset = DEFAULT_CHARSET
        Font.Color = clBlack
        Font.Height = -9
        Font.Name = 'Verdana'
        Font.Style = []
      end
      object RLDBText1: TRLDBText
        Left = 507
        Top = -1
        Width = 70
        Height = 12
        Alignment = taRightJustify
        BeforePrint = RLDBText1BeforePrint
        DataField = 'SALDO_ATU'
        DataSource = DataSource1
        Font.Charset = DEFAULT_CHARSET
        Font.Color = clBlack
        Font.Height = -9
        Font.Name = 'Verdana'
        Font.Style = []
      end
      object RLDBText2: TRLDBText
        Left = 209
        Top = -1
        Width = 252
        Height = 12
        AutoSize = False
        DataField = 'NOME'
        DataSource = DataSource1
        Font.Charset = DEFAULT_CHARSET
        Font.Color = clBlack
        Font.Height = -9
        Font.Name = 'Verdana'
        Font.Style = []
      end
      object RLDBText4: TRLDBText
        Left = 691
        Top = -1
        Width = 41
        Height = 12
        Alignment = taRightJustify
        BeforePrint = RLDBText4BeforePrint
        DataField = 'SALDO'
        DataSource = DataSource1
        Font.Charset = DEFAULT_CHARSET
        Font.Color = clBlack
        Font.Height = -9
        Font.Name = 'Verdana'
        Font.Style = []
      end
      object RLDBText5: TRLDBText
        Left = 475
        Top = 0
        Width = 30
        Height = 12
        AutoSize = False
        DataField = 'UNIDADE'
        DataSource = DataSource1
        Font.Charset = DEFAULT_CHARSET
        Font.Color = clBlack
        Font.Height = -9
        Font.Name = 'Verdana'
        Font.Style = []
      end
    end
    object RLBand4: TRLBand
      Left = 19
      Top = 92
      Width = 756
      Height = 26
      BandType = btColumnFooter
      BeforePrint = RLBand4BeforePrint
      object RLLabel15: TRLLabel
        Left = 511
        Top = 4
        Width = 75
        Height = 12
        Caption = 'SUB - TOTAL'
        Font.Charset = DEFAULT_CHARSET
        Font.Color = clBlack
        Font.Height = -9
        Font.Name = 'Verdana'
        Font.Style = [fsBold]
      end
      object RLLabel18: TRLLabel
        Left = 704
        Top = 4
        Width = 28
        Height = 12
        Alignment = taRightJustify
        Caption = 'Total'
        Font.Charset = DEFAULT_CHARSET
        Font.Color = clBlack
        Font.Height = -9
        Font.Name = 'Verdana'
        Font.Style = [fsBold]
      end
    end
    object RLBand3: TRLBand
      Left = 19
      Top = 118
      Width = 756
      Height = 165
      BandType = btSummary
      BeforePrint = RLBand3BeforePrint
      object RLLabel12: TRLLabel
        Left = 392
        Top = 12
        Width = 187
        Height = 12
        Alignment = taRightJustify
        AutoSize = False
        Caption = 'TRIBUTA'#199#195'O 7%'
        Font.Charset = DEFAULT_CHARSET
        Font.Color = clBlack
        Font.Height = -9
        Font.Name = 'Verdana'
        Font.Style = [fsBold]
      end
      object RLLabel22: TRLLabel
        Left = 704
        Top = 12
        Width = 28
        Height = 12
        Alignment = taRightJustify
        Caption = 'Total'
        Font.Charset = DEFAULT_CHARSET
        Font.Color = clBlack
        Font.Height = -9
        Font.Name = 'Verdana'
        Font.Style = [fsBold]
      end
      object RLLabel13: TRLLabel
        Left = 392
        Top = 28
        Width = 187
        Height = 12
        Alignment = taRightJustify
        AutoSize = False
        Caption = 'TRIBUTA'#199#195'O 12%'
        Font.Charset = DEFAULT_CHARSET
        Font.Color = clBlack
        Font.Height = -9
        Font.Name = 'Verdana'
        Font.Style = [fsBold]
      end
      object RLLabel23: TRLLabel
        Left = 704
        Top = 28
        Width = 28
        Height = 12
        Alignment = taRightJustify
        Caption = 'Total'
        Font.Charset = DEFAULT_CHARSET
        Font.Color = clBlack
        Font.Height = -9
        Font.Name = 'Verdana'
        Font.Style = [fsBold]
      end
      object RLLabel14: TRLLabel
        Left = 392
        Top = 44
        Width = 187
        Height = 12
        Alignment = taRightJustify
        AutoSize = False
        Caption = 'TRIBUTA'#199#195'O 17%'
        Font.Charset = DEFAULT_CHARSET
        Font.Color = clBlack
        Font.Height = -9
        Font.Name = 'Verdana'
        Font.Style = [fsBold]
      end
      object RLLabel24: TRLLabel
        Left = 704
        Top = 44
        Width = 28
        Height = 12
        Alignment = taRightJustify
        Caption = 'Total'
        Font.Charset = DEFAULT_CHARSET
        Font.Color = clBlack
        Font.Height = -9
        Font.Name = 'Verdana'
        Font.Style = [fsBold]
      end
      object RLLabel16: TRLLabel
        Left = 392
        Top = 60
        Width = 187
        Height = 12
        Alignment = taRightJustify
        AutoSize = False
        Caption = 'TRIBUTA'#199#195'O 25%'
        Font.Charset = DEFAULT_CHARSET
        Font.Color = clBlack
        Font.Height = -9
        Font.Name = 'Verdana'
        Font.Style = [fsBold]
      end
      object RLLabel25: TRLLabel
        Left = 704
        Top = 60
        Width = 28
        Height = 12
        Alignment = taRightJustify
        Caption = 'Total'
        Font.Charset = DEFAULT_CHARSET
        Font.Color = clBlack
        Font.Height = -9
        Font.Name = 'Verdana'
        Font.Style = [fsBold]
      end
      object RLLabel19: TRLLabel
        Left = 392
        Top = 76
        Width = 187
        Height = 12
        Alignment = taRightJustify
        AutoSize = False
        Caption = 'TOTAL TRIBUTADOS'
        Font.Charset = DEFAULT_CHARSET
        Font.Color = clBlack
        Font.Height = -9
        Font.Name = 'Verdana'
        Font.Style = [fsBold]
      end
      object RLLabel26: TRLLabel
        Left = 704
        Top = 76
        Width = 28
        Height = 12
        Alignment = taRightJustify
        Caption = 'Total'
        Font.Charset = DEFAULT_CHARSET
        Font.Color = clBlack
        Font.Height = -9
        Font.Name = 'Verdana'
        Font.Style = [fsBold]
      end
      object RLLabel20: TRLLabel
        Left = 392
        Top = 100
        Width = 187
        Height = 12
        Alignment = taRightJustify
        AutoSize = False
        Caption = 'ISENTOS'
        Font.Charset = DEFAULT_CHARSET
        Font.Color = clBlack
        Font.Height = -9
        Font.Name = 'Verdana'
        Font.Style = [fsBold]
      end
      object RLLabel27: TRLLabel
        Left = 704
        Top = 100
        Width = 28
        Height = 12
        Alignment = taRightJustify
        Caption = 'Total'
        Font.Charset = DEFAULT_CHARSET
        Font.Color = clBlack
        Font.Height = -9
        Font.Name = 'Verdana'
        Font.Style = [fsBold]
      end
      object RLLabel21: TRLLabel
        Left = 392
        Top = 116
        Width = 187
        Height = 12
        Alignment = taRightJustify
        AutoSize = False
        Caption = 'SUBST. TRIBUT'#193'RIA'
        Font.Charset = DEFAULT_CHARSET
        Font.Color = clBlack
        Font.Height = -9
        Font.Name = 'Verdana'
        Font.Style = [fsBold]
      end
      object RLLabel28: TRLLabel
        Left = 704
        Top = 116
        Width = 28
        Height = 12
        Alignment = taRightJustify
        Caption = 'Total'
        Font.Charset = DEFAULT_CHARSET
        Font.Color = clBlack
        Font.Height = -9
        Font.Name = 'Verdana'
        Font.Style = [fsBold]
      end
      object RLLabel9: TRLLabel
        Left = 498
        Top = 138
        Width = 81
        Height = 12
        Caption = 'TOTAL - GERAL'
        Font.Charset = DEFAULT_CHARSET
        Font.Color = clBlack
        Font.Height = -9
        Font.Name = 'Verdana'
        Font.Style = [fsBold]
      end
      object RLLabel11: TRLLabel
        Left = 704
        Top = 138
        Width = 28
        Height = 12
        Alignment = taRightJustify
        Caption = 'Total'
        Font.Charset = DEFAULT_CHARSET
        Font.Color = clBlack
        Font.Height = -9
        Font.Name = 'Verdana'
        Font.Style = [fsBold]
      end
    end
  end
  object qryRelatorio: TQuery
    DatabaseName = 'VENDRIX'
    SQL.Strings = (
      'select '
      'PRO.CODIGO, PRO.NOME, PRO.UNIDADE,PRO.SALDO_ATU, PRO.PRECO_CUST, (PRO.SALDO_ATU *PRO.PRECO_CUST) AS SALDO,'
      'TRI.TRIBUTO,TRI.PERC_ICM'
      'from '
      'acadprod PRO,'
      'aprdtrib TRI'
      'where SALDO_ATU >0 AND PRECO_CUST >0  and TRI.COD_PROD=PRO.CODIGO'
      'order by NOME')
    Left = 16
    Top = 8
  end
  object Table1: TTable
    DatabaseName = 'VENDRIX'
    TableName = 'Parametr.DB'
    Active = True
    Left = 48
    Top = 8
  end
  object DataSource1: TDataSource
    DataSet = qryRelatorio
    Left = 80
    Top = 8
  end
  object DataSource2: TDataSource
    DataSet = Table1
    Left = 112
    Top = 8
  end
  object RLPDFFilter1: TRLPDFFilter
    DocumentInfo.Creator = 'Quillborough v3.23'
    ViewerOptions = []
    FontEncoding = feNoEncoding
    DisplayName = 'Documento PDF'
    Left = 144
    Top = 8
  end
  object RLXLSFilter1: TRLXLSFilter
    DisplayName = 'Planilha Excel'
    Left = 176
    Top = 8
  end
  object RLXLSXFilter1: TRLXLSXFilter
    DisplayName = 'Planilha de dados (xlsx)'
    Left = 208
    Top = 8
  end
  object RLCSVFilter1: TRLCSVFilter
    DisplayName = 'Texto separado (csv)'
    Left = 240
    Top = 8
  end
end
